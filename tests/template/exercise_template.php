<?php
// Runs the filled template's own functions against small stand-ins for the WordPress functions
// they call, and prints one JSON list of [passed, what] pairs: the funnel save, the post type's
// labels and the download key check.
// Usage: php exercise_template.php FILLED_PLUGIN_PHP IDENTIFIER NAME

list( , $plugin, $id, $name ) = $argv + array( null, '', '', '' );

$results = array();
function expect( $ok, $what ) {
    global $results;
    $results[] = array( (bool) $ok, $what );
}

// A notice or warning is a fault of the template, never noise.
set_error_handler(
    function ( $level, $message, $file, $line ) {
        expect( false, "no PHP notice or warning: $message ($file:$line)" );
        return true;
    }
);

define( 'ABSPATH', '/' );

// What the stand-ins were asked, for the checks to look at.
$wp = array(
    'meta'       => array(),
    'post_types' => array(),
    'nonces'     => array(),
);

function add_action() {}
function add_filter() {}
function register_activation_hook() {}
function register_deactivation_hook() {}

function esc_html( $text ) {
    return htmlspecialchars( (string) $text, ENT_QUOTES, 'UTF-8' );
}
function esc_attr( $text ) {
    return esc_html( $text );
}
function esc_textarea( $text ) {
    return esc_html( $text );
}
function esc_url( $url ) {
    return esc_html( $url );
}
function __( $text ) {
    return $text;
}
function esc_html__( $text ) {
    return esc_html( $text );
}
function register_post_type( $type, $args ) {
    $GLOBALS['wp']['post_types'][ $type ] = $args;
}

function get_post_meta( $post_id, $key, $single ) {
    return $GLOBALS['wp']['meta'][ $post_id ][ $key ] ?? '';
}
function update_post_meta( $post_id, $key, $value ) {
    // WordPress unslashes what it stores.
    $GLOBALS['wp']['meta'][ $post_id ][ $key ] = wp_unslash( $value );
}
function wp_unslash( $value ) {
    return is_string( $value ) ? stripslashes( $value ) : $value;
}
function wp_slash( $value ) {
    return is_string( $value ) ? addslashes( $value ) : $value;
}
function sanitize_text_field( $text ) {
    return trim( (string) $text );
}
function current_user_can() {
    return true;
}
function wp_kses_post( $text ) {
    return $text;
}
function wp_is_post_revision() {
    return false;
}
function wp_is_post_autosave() {
    return false;
}
function wp_generate_password( $length ) {
    return str_repeat( 'k', $length );
}
function get_permalink( $post ) {
    return 'http://127.0.0.1/funnel/' . $post->ID . '/';
}
function add_query_arg( $arg, $value, $url ) {
    return $url . '?' . $arg . '=' . $value;
}

// A nonce is good for the one action it was made for, as in WordPress.
function vantor_nonce_for( $action ) {
    return 'nonce-' . md5( $action );
}
function wp_nonce_field( $action, $name ) {
    $GLOBALS['wp']['nonces'][ $name ] = vantor_nonce_for( $action );
    printf( '<input type="hidden" name="%s" value="%s" />', esc_attr( $name ), esc_attr( vantor_nonce_for( $action ) ) );
}
function wp_verify_nonce( $nonce, $action ) {
    return is_string( $nonce ) && vantor_nonce_for( $action ) === $nonce ? 1 : false;
}

require $plugin;

$fn = function ( $suffix ) use ( $id ) {
    return $id . '_' . $suffix;
};

// The labels: the plugin name is shown in the admin menu and bar, so markup in it arrives as text.
$fn( 'register_post_type' )();
$labels = $wp['post_types'][ strtolower( $id ) ]['labels'] ?? array();
expect( esc_html( $name ) === ( $labels['name'] ?? null ) && esc_html( $name ) === ( $labels['menu_name'] ?? null ), 'the post type is named after the plugin, escaped' );
$raw = array();
foreach ( $labels as $label => $text ) {
    if ( preg_match( '/[<>"]|&(?![a-z]+;|#[0-9]+;)/i', $text ) ) {
        $raw[] = $label;
    }
}
expect( $labels && ! $raw, 'every label of the post type is escaped' . ( $raw ? ': ' . implode( ', ', $raw ) : '' ) );

// The edit form as rendered for funnel 7, then posted back as a browser would post it.
$post = (object) array(
    'ID'          => 7,
    'post_type'   => strtolower( $id ),
    'post_status' => 'draft',
);
ob_start();
$fn( 'render_meta_box' )( $post );
$form = ob_get_clean();
preg_match_all( '/name="([^"]+)"/', $form, $fields );
$front = $fn( 'meta_key' )( 'front_tag' );
expect( count( $wp['nonces'] ) === 1 && in_array( $front, $fields[1], true ), 'the edit form holds a nonce and the front tag field' );
$nonce_field = (string) key( $wp['nonces'] );
$own_nonce   = $wp['nonces'][ $nonce_field ];
ob_start();
$fn( 'render_meta_box' )( (object) array_merge( (array) $post, array( 'ID' => 8 ) ) );
ob_end_clean();
$other_nonce = $wp['nonces'][ $nonce_field ];

$save = function ( array $form_post ) use ( $fn, $post, $front ) {
    $GLOBALS['wp']['meta'] = array();
    $_POST                 = $form_post;
    $fn( 'save_post' )( $post->ID, $post );
    return $GLOBALS['wp']['meta'][ $post->ID ] ?? array();
};
$tag   = '<a href="https://pay.example/buy?id=1&amp;x=2">Buy now</a>';
$saved = $save(
    array(
        $nonce_field => $own_nonce,
        $front       => wp_slash( $tag ),
    )
);
expect( ( $saved[ $front ] ?? null ) === $tag, 'the form posted with its own nonce saves the tag as typed' );
expect( strlen( $fn( 'get_key' )( $post->ID ) ) >= 20, 'the first save gives the funnel a download key' );

$forged = array(
    'a forged nonce'                     => 'nonce-' . md5( 'something else' ),
    'the nonce of another funnel\'s form' => $other_nonce,
    'an empty nonce'                     => '',
    'a nonce sent as an array'           => array( $own_nonce ),
);
expect( $other_nonce !== $own_nonce, 'each funnel\'s form has its own nonce' );
foreach ( $forged as $what => $nonce ) {
    expect( array() === $save( array( $nonce_field => $nonce, $front => $tag ) ), "the form posted with $what saves nothing" );
}
expect( array() === $save( array( $front => $tag ) ), 'the form posted without its nonce saves nothing' );

// The download key check, on a funnel holding a key and on one that has none yet.
$wp['meta'] = array( 7 => array( $fn( 'meta_key' )( 'download_key' ) => 'Zq3v9XkP0e7Lm2Rt' ) );
$matches    = $fn( 'key_matches' );
expect( true === $matches( 7, 'Zq3v9XkP0e7Lm2Rt' ), 'the right key opens the download page' );
expect( false === $matches( 7, 'Zq3v9XkP0e7Lm2Ru' ), 'a wrong key does not' );
expect( false === $matches( 7, 'zq3v9xkp0e7lm2rt' ), 'the key in another case does not' );
expect( false === $matches( 7, '' ), 'an empty key does not' );
expect( false === $matches( 7, array( 'Zq3v9XkP0e7Lm2Rt' ) ), 'a key sent as an array does not' );
expect( false === $matches( 7, null ), 'no key at all does not' );
expect( false === $matches( 9, '' ), 'an empty key does not open a funnel that has no key yet' );
$wp['meta'] = array( 7 => array( $fn( 'meta_key' )( 'download_key' ) => '0e1234' ) );
expect( false === $matches( 7, '0e9876' ), 'keys are compared as text, not as numbers' );

echo json_encode( $results );
