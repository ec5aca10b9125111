<?php
/**
 * WordPress's personal-data tools for the buyers: the export lists each purchase of an e-mail
 * address with its downloads, the erasure deletes them; and a paragraph for the site's
 * privacy policy.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * How many buyer rows one page of an export or erasure handles.
 *
 * @return int
 */
function #prefix#_privacy_page_size() {
	return 50;
}

/**
 * The tools' name for the plugin's buyers.
 *
 * @return string
 */
function #prefix#_privacy_name() {
	/* translators: %s: the plugin's name. */
	return sprintf( __( '%s: buyers', '#prefix#' ), #prefix#_menu_name() );
}

/**
 * Adds the buyers' exporter to WordPress's export tool.
 *
 * @param array $exporters The exporters, by id.
 * @return array
 */
function #prefix#_register_exporter( $exporters ) {
	$exporters['#prefix#-buyers'] = array(
		'exporter_friendly_name' => #prefix#_privacy_name(),
		'callback'               => '#prefix#_export_buyers',
	);
	return $exporters;
}
add_filter( 'wp_privacy_personal_data_exporters', '#prefix#_register_exporter' );

/**
 * Adds the buyers' eraser to WordPress's erasure tool.
 *
 * @param array $erasers The erasers, by id.
 * @return array
 */
function #prefix#_register_eraser( $erasers ) {
	$erasers['#prefix#-buyers'] = array(
		'eraser_friendly_name' => #prefix#_privacy_name(),
		'callback'             => '#prefix#_erase_buyers',
	);
	return $erasers;
}
add_filter( 'wp_privacy_personal_data_erasers', '#prefix#_register_eraser' );

/**
 * A time for the export, in the site's time zone; "never" for 0.
 *
 * @param int $time Unix seconds.
 * @return string
 */
function #prefix#_privacy_time( $time ) {
	return $time ? wp_date( 'Y-m-d H:i:s T', $time ) : __( 'never', '#prefix#' );
}

/**
 * One page of the export: each purchase of the address, with the funnel, how it was paid,
 * when, its access and what was downloaded.
 *
 * @param string $email The address.
 * @param int    $page  The page, from 1.
 * @return array As WordPress's export tool expects: data, done.
 */
function #prefix#_export_buyers( $email, $page = 1 ) {
	$size   = #prefix#_privacy_page_size();
	$buyers = #prefix#_buyers_by_email( $email, $size, ( max( 1, (int) $page ) - 1 ) * $size );
	$data   = array();
	foreach ( $buyers as $buyer ) {
		$downloads = array();
		foreach ( #prefix#_download_log( $buyer['id'], 1000 ) as $download ) {
			/* translators: 1: when, 2: the file's name, 3: the bytes sent. */
			$downloads[] = sprintf( __( '%1$s: %2$s (%3$s bytes)', '#prefix#' ), #prefix#_privacy_time( (int) $download['sent'] ), $download['file'], number_format_i18n( (int) $download['bytes_sent'] ) );
		}
		$fields = array(
			__( 'Funnel', '#prefix#' )         => #prefix#_plain_name( get_post_field( 'post_title', $buyer['funnel_id'] ) ),
			__( 'E-mail address', '#prefix#' ) => $buyer['email'],
			__( 'Paid through', '#prefix#' )   => $buyer['source'],
			__( 'Payment id', '#prefix#' )     => $buyer['payment_id'],
			__( 'Purchased', '#prefix#' )      => #prefix#_privacy_time( $buyer['created'] ),
			__( 'Access ends', '#prefix#' )    => #prefix#_privacy_time( $buyer['expires'] ),
			__( 'Access revoked', '#prefix#' ) => $buyer['revoked'] ? #prefix#_privacy_time( $buyer['revoked'] ) : __( 'no', '#prefix#' ),
			__( 'Downloads', '#prefix#' )      => $downloads ? implode( "\n", $downloads ) : __( 'none', '#prefix#' ),
		);
		$item   = array();
		foreach ( $fields as $name => $value ) {
			$item[] = array(
				'name'  => $name,
				'value' => (string) $value,
			);
		}
		$data[] = array(
			'group_id'    => '#prefix#-buyers',
			'group_label' => #prefix#_privacy_name(),
			'item_id'     => '#prefix#-buyer-' . $buyer['id'],
			'data'        => $item,
		);
	}
	return array(
		'data' => $data,
		'done' => count( $buyers ) < $size,
	);
}

/**
 * One round of the erasure: deletes up to a page of the address's purchases with their
 * download logs. Their links stop working. WordPress asks again until it is done; each round
 * starts from the first row left.
 *
 * @param string $email The address.
 * @param int    $page  The round, from 1 (each starts afresh, as rows are deleted).
 * @return array As WordPress's erasure tool expects: items_removed (whether any was),
 *               items_retained, messages, done.
 */
function #prefix#_erase_buyers( $email, $page = 1 ) {
	unset( $page );
	$size    = #prefix#_privacy_page_size();
	$buyers  = #prefix#_buyers_by_email( $email, $size, 0 );
	$removed = false;
	foreach ( $buyers as $buyer ) {
		$removed = #prefix#_delete_buyer( $buyer['id'] ) || $removed;
	}
	return array(
		'items_removed'  => $removed,
		'items_retained' => false,
		'messages'       => array(),
		'done'           => count( $buyers ) < $size,
	);
}

/**
 * Suggests a paragraph for the site's privacy policy about what the plugin keeps of buyers.
 */
function #prefix#_privacy_policy() {
	if ( ! function_exists( 'wp_add_privacy_policy_content' ) ) {
		return;
	}
	$text = __( 'When you buy a download, we keep your e-mail address, how and when you paid (the payment service and its payment id), until when your download link works, and a log of your downloads (the time, the file and its size). We keep them so that only you can download what you bought, and to send you your link by e-mail. We keep them until you ask us to delete them.', '#prefix#' );
	wp_add_privacy_policy_content( #prefix#_menu_name(), wpautop( esc_html( $text ) ) );
}
add_action( 'admin_init', '#prefix#_privacy_policy' );
