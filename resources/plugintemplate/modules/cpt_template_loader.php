<?php
if ( ! defined( 'ABSPATH' ) ) {
    exit;
}

/**
 * The key from the request, or null when the request asks for no download page. The key
 * itself is the credential, so there is no nonce to check here.
 */
function #prefix#_requested_key() {
    $arg = #prefix#_key_arg();
    if ( ! isset( $_GET[ $arg ] ) ) {
        return null;
    }
    $key = wp_unslash( $_GET[ $arg ] );
    return is_string( $key ) ? sanitize_text_field( $key ) : '';
}

function #prefix#_is_funnel_request() {
    return is_singular( #prefix#_post_type() ) && ! post_password_required();
}

function #prefix#_pages_folder() {
    return __DIR__ . '/template/';
}

/**
 * The address of the site's files inside the installed plugin, wherever WordPress keeps its
 * plugins. The converted pages print it as it stands into attribute values, srcset lists, CSS
 * and scripts, so every character that could end or split one of those is percent-encoded.
 */
function #prefix#_asset_base() {
    return preg_replace_callback(
        '/[^A-Za-z0-9\-._~\/:%@!$*+;=]/',
        function ( $found ) {
            return rawurlencode( $found[0] );
        },
        plugin_dir_url( __FILE__ ) . 'template/'
    );
}

/**
 * Refuses a download request without the funnel's key before anything is printed, and
 * renders the download page itself when the build left out its renderer.
 */
function #prefix#_guard_download() {
    if ( ! #prefix#_is_funnel_request() ) {
        return;
    }
    $key = #prefix#_requested_key();
    if ( null === $key ) {
        return;
    }
    if ( ! #prefix#_key_matches( get_queried_object_id(), $key ) ) {
        wp_die(
            esc_html__( 'This download address is not valid.', '#prefix#' ),
            esc_html__( 'Download not available', '#prefix#' ),
            array( 'response' => 403 )
        );
    }
    nocache_headers();
    header( 'X-Robots-Tag: noindex, nofollow' );
    if ( ! is_file( #prefix#_pages_folder() . 'thanks.php' ) ) {
        #prefix#_render_page( 'download' );
        exit;
    }
}
add_action( 'template_redirect', '#prefix#_guard_download' );

/**
 * A funnel is shown as the site's own full page, not inside the theme.
 */
function #prefix#_choose_template( $template ) {
    if ( ! #prefix#_is_funnel_request() ) {
        return $template;
    }
    $renderer = null === #prefix#_requested_key() ? 'template.php' : 'thanks.php';
    $file     = #prefix#_pages_folder() . $renderer;
    return is_file( $file ) ? $file : $template;
}
add_filter( 'template_include', '#prefix#_choose_template', 99 );

/**
 * Prints one converted page with its tag. Called by template.php and thanks.php, so the
 * page's variables stay local to this call.
 */
function #prefix#_render_page( $role ) {
    $post_id  = get_queried_object_id();
    $download = 'download' === $role;
    $file     = #prefix#_pages_folder() . ( $download ? 'converted_download.php' : 'converted_index.php' );
    if ( ! is_file( $file ) ) {
        wp_die( esc_html__( 'This funnel page is missing from the plugin.', '#prefix#' ), '', array( 'response' => 404 ) );
    }
    // The converted page names its files after $asset_base and links to either funnel page with
    // $funnel_url: the funnel's own address, without the key.
    $asset_base = #prefix#_asset_base();
    $funnel_url = esc_url( get_permalink( $post_id ) );
    $front_tag  = $download ? '' : #prefix#_get_tag( $post_id, 'front_tag' );
    $back_tag  = '';
    if ( $download && #prefix#_key_matches( $post_id, #prefix#_requested_key() ) ) {
        $back_tag = #prefix#_get_tag( $post_id, 'back_tag' );
    }

    ob_start();
    include $file;
    $page = (string) ob_get_clean();
    // A page that serves both roles still holds the other role's marker, which has nothing to show here.
    // The rest is the site's own markup and is printed as built.
    $stray = $download ? array( '#FRONT#', '#front#', '#Front#' ) : array( '#BACK#', '#back#', '#Back#' );
    echo str_replace( $stray, '', $page );
}
