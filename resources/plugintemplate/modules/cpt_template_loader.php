<?php // phpcs:ignore WordPress.Files.FileName.NotHyphenatedLowercase -- The build fills in this file under this name.
/**
 * What a visitor of a funnel gets: the sales page, the download page with the key, the
 * delivery files, and a refusal without the key.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * A query argument of the visitor's request: null when the request has none, an empty
 * string when it is not text (such as an array).
 *
 * @param string $arg The argument's name.
 * @return string|null
 */
function #prefix#_query_value( $arg ) {
	// phpcs:ignore WordPress.Security.NonceVerification.Recommended -- A buyer's address carries no nonce: the download key in it is the credential, checked by the caller.
	$value = isset( $_GET[ $arg ] ) ? wp_unslash( $_GET[ $arg ] ) : null;
	if ( null === $value ) {
		return null;
	}
	return is_string( $value ) ? $value : '';
}

/**
 * The key from the request, or null when the request asks for no download page.
 *
 * @return string|null
 */
function #prefix#_requested_key() {
	$key = #prefix#_query_value( #prefix#_key_arg() );
	return null === $key ? null : sanitize_text_field( $key );
}

/**
 * The delivery file a request asks for, or null when it asks for none. The name is only
 * looked up in the build's list, never used as a path, so it is taken as it is.
 *
 * @return string|null
 */
function #prefix#_requested_file() {
	return #prefix#_query_value( #prefix#_file_arg() );
}

/**
 * Whether WordPress is showing a funnel that the visitor may see.
 *
 * @return bool
 */
function #prefix#_is_funnel_request() {
	return is_singular( #prefix#_post_type() ) && ! post_password_required();
}

/**
 * The folder of the funnel's converted pages and their renderers.
 *
 * @return string
 */
function #prefix#_pages_folder() {
	return __DIR__ . '/template/';
}

/**
 * The address of the site's files inside the installed plugin, wherever WordPress keeps its
 * plugins. The converted pages print it as it stands into attribute values, srcset lists, CSS
 * and scripts, so every character that could end or split one of those is percent-encoded.
 *
 * @return string
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
 * The keyed address of each delivery file of a funnel, in the order the converted download
 * page numbers them; empty while the funnel has no key yet.
 *
 * @param int $post_id The funnel.
 * @return string[]
 */
function #prefix#_delivery_urls( $post_id ) {
	$urls = array();
	foreach ( #prefix#_delivery()['files'] as $file ) {
		$urls[] = #prefix#_keyed_url( $post_id, array( #prefix#_file_arg() => rawurlencode( $file ) ) );
	}
	return $urls;
}

/**
 * Refuses a download or delivery request without the funnel's key before anything is printed,
 * streams a delivery file to a buyer, and renders the download page itself when the build left
 * out its renderer. Nothing a buyer's address leads to sends the key on to other sites.
 */
function #prefix#_guard_download() {
	if ( ! #prefix#_is_funnel_request() ) {
		return;
	}
	$key  = #prefix#_requested_key();
	$file = #prefix#_requested_file();
	if ( null === $key && null === $file ) {
		return;
	}
	if ( ! #prefix#_key_matches( get_queried_object_id(), $key ) ) {
		#prefix#_refuse_download();
	}
	#prefix#_private_headers();
	if ( null !== $file ) {
		#prefix#_send_delivery_file( $file );
	}
	if ( ! is_file( #prefix#_pages_folder() . 'thanks.php' ) ) {
		#prefix#_render_page( 'download' );
		exit;
	}
}
add_action( 'template_redirect', '#prefix#_guard_download' );

/**
 * A keyed address is answered where it was asked, never redirected to the funnel's pretty
 * address: that is how it works before the funnel is published and after its slug changed.
 *
 * @param string|false $redirect Where WordPress would send the visitor instead.
 * @return string|false
 */
function #prefix#_keep_keyed_address( $redirect ) {
	if ( #prefix#_is_funnel_request() && ( null !== #prefix#_requested_key() || null !== #prefix#_requested_file() ) ) {
		return false;
	}
	return $redirect;
}
add_filter( 'redirect_canonical', '#prefix#_keep_keyed_address' );

/**
 * An address made with a funnel's old slug is sent on to its new one; the key and the file
 * it holds go along, so addresses given out before the slug changed keep working.
 *
 * @param string $link The funnel's current address.
 * @return string
 */
function #prefix#_old_slug_keeps_key( $link ) {
	if ( #prefix#_post_type() !== get_query_var( 'post_type' ) ) {
		return $link;
	}
	$kept = array();
	foreach ( array( #prefix#_key_arg(), #prefix#_file_arg() ) as $arg ) {
		$value = #prefix#_query_value( $arg );
		if ( null !== $value && '' !== $value ) {
			$kept[ $arg ] = rawurlencode( $value );
		}
	}
	return $kept ? add_query_arg( $kept, $link ) : $link;
}
add_filter( 'old_slug_redirect_url', '#prefix#_old_slug_keeps_key' );

/**
 * Answers a wrong or missing key with 403 and a short page in the site's own look: the
 * theme's header and footer around the message. It names no address of the site's people,
 * as anyone may reach it. The page is kept out of search engines and caches, and sends no
 * Referer with the address in it.
 *
 * @param string $reason Why, in the visitor's words; empty for a wrong or missing key.
 * @param int    $status The HTTP status: 403, or 410 for what has run out.
 * @param string $advice What the visitor can do, in their words; empty for the line meant for a
 *                       wrong or missing key.
 */
function #prefix#_refuse_download( $reason = '', $status = 403, $advice = '' ) {
	status_header( $status );
	#prefix#_private_headers();
	add_filter( 'wp_robots', 'wp_robots_no_robots' );
	add_filter( 'document_title_parts', '#prefix#_refusal_title_parts' );

	$title   = #prefix#_refusal_title();
	$message = '' !== $reason ? esc_html( $reason ) : esc_html__( 'This download address does not open anything (any more). It may have been copied incompletely, or the seller has replaced it with a new one.', '#prefix#' );
	$contact = '' !== $advice ? esc_html( $advice ) : esc_html__( 'If you bought here, contact the seller the way you bought, and you will get the current address.', '#prefix#' );
	$home    = sprintf( '<a href="%1$s">%2$s</a>', esc_url( home_url( '/' ) ), esc_html__( 'Go to the home page', '#prefix#' ) );
	$content = '<p>' . $message . '</p><p>' . $contact . '</p><p>' . $home . '</p>';
	#prefix#_themed_page( $title, $content );
}

/**
 * Prints a short page in the site's own look, the theme's header and footer around a title and
 * its content, and ends the request.
 *
 * @param string $title   The page's title, plain text.
 * @param string $content The page's content, HTML escaped by the caller.
 */
function #prefix#_themed_page( $title, $content ) {
	$content = '<h1 class="wp-block-heading">' . esc_html( $title ) . '</h1>' . $content;
	add_filter(
		'document_title_parts',
		function ( $parts ) use ( $title ) {
			$parts['title'] = $title;
			return $parts;
		},
		11
	);
	if ( function_exists( 'wp_is_block_theme' ) && wp_is_block_theme() ) {
		// As WordPress renders a block theme's page: the blocks first, so that they can add
		// their styles to the head, then the document around them.
		$part   = function ( $slug ) {
			$attributes = array(
				'slug'    => $slug,
				'theme'   => get_stylesheet(),
				'tagName' => $slug,
			);
			return '<!-- wp:template-part ' . wp_json_encode( $attributes ) . ' /-->';
		};
		$blocks = do_blocks(
			$part( 'header' )
			. '<!-- wp:group {"tagName":"main","layout":{"type":"constrained"}} --><main class="wp-block-group">'
			. $content . '</main><!-- /wp:group -->'
			. $part( 'footer' )
		);
		add_action( 'wp_head', '#prefix#_block_theme_head', 0 );
		?>
<!DOCTYPE html>
<html <?php language_attributes(); ?>>
<head>
<meta charset="<?php bloginfo( 'charset' ); ?>" />
		<?php wp_head(); ?>
</head>
<body <?php body_class(); ?>>
		<?php
		wp_body_open();
		echo '<div class="wp-site-blocks">' . $blocks . '</div>'; // phpcs:ignore WordPress.Security.EscapeOutput.OutputNotEscaped -- The theme's header and footer as WordPress renders them, around the message escaped above.
		wp_footer();
		?>
</body>
</html>
		<?php
	} else {
		get_header();
		echo '<main id="primary" class="site-main"><article class="page"><div class="entry-content">' . wp_kses_post( $content ) . '</div></article></main>';
		get_footer();
	}
	exit;
}

/**
 * The title of the page that refuses a wrong key.
 *
 * @return string
 */
function #prefix#_refusal_title() {
	return __( 'This download address does not work', '#prefix#' );
}

/**
 * The refusal page's title in the document's title, beside the site's name.
 *
 * @param string[] $parts The parts of the document's title.
 * @return string[]
 */
function #prefix#_refusal_title_parts( $parts ) {
	$parts['title'] = #prefix#_refusal_title();
	return $parts;
}

/**
 * The viewport line and the title that WordPress gives every page of a block theme, for the
 * refusal page drawn in one.
 */
function #prefix#_block_theme_head() {
	echo '<meta name="viewport" content="width=device-width, initial-scale=1" />' . "\n";
	if ( ! current_theme_supports( 'title-tag' ) ) {
		echo '<title>' . wp_kses( wp_get_document_title(), array() ) . '</title>' . "\n";
	}
}

/**
 * A funnel is shown as the site's own full page, not inside the theme.
 *
 * @param string $template The template WordPress chose.
 * @return string
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
 *
 * @param string $role Which page: front or download.
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
	$asset_base    = #prefix#_asset_base();
	$funnel_url    = esc_url( get_permalink( $post_id ) );
	$delivery_urls = array();
	$front_tag     = $download ? '' : #prefix#_shown_tag( $post_id, 'front_tag' );
	$back_tag      = '';
	$buyer         = $download ? #prefix#_current_buyer() : null;
	if ( $buyer || ( $download && ! #prefix#_is_paid( $post_id ) && #prefix#_key_matches( $post_id, #prefix#_requested_key() ) ) ) {
		$back_tag      = #prefix#_missing_files_note() . #prefix#_shown_tag( $post_id, 'back_tag' );
		$delivery_urls = array_map( 'esc_url', $buyer ? #prefix#_buyer_file_urls( $buyer ) : #prefix#_delivery_urls( $post_id ) );
	}

	ob_start();
	include $file;
	$page = (string) ob_get_clean();
	// A page that serves both roles still holds the other role's marker, which has nothing to show here.
	$stray = $download ? array( '#FRONT#', '#front#', '#Front#' ) : array( '#BACK#', '#back#', '#Back#' );
	echo str_replace( $stray, '', $page ); // phpcs:ignore WordPress.Security.EscapeOutput.OutputNotEscaped -- The site's own markup, printed as built.
}
